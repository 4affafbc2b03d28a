/* CreateDate: 05/05/2020 17:42:51.297 , ModifyDate: 05/05/2020 17:42:51.297 */
GO
create procedure [dbo].[sp_MSins_dbolkpRegion]
    @c1 int,
    @c2 nvarchar(50),
    @c3 bit
as
begin
	insert into [dbo].[lkpRegion] (
		[RegionID],
		[RegionDescription],
		[IsActiveFlag]
	) values (
		@c1,
		@c2,
		@c3	)
end
GO
