/****** Object:  StoredProcedure [dbo].[sp_MSins_dboOrders] ******/
SET QUOTED_IDENTIFIER ON
GO
create procedure [dbo].[sp_MSins_dboOrders]
    @c1 int,
    @c2 nvarchar(10)
as
begin
	insert into [dbo].[Orders] (
		[OrderID],
		[Name]
	) values (
		@c1,
		@c2	)
end
GO

create procedure [dbo].[sp_MSdel_dboOrders]
		@pkc1 int
as
begin
	delete [dbo].[Orders]
	where [OrderID] = @pkc1
if @@rowcount = 0
    if @@microsoftversion>0x07320000
        exec sp_MSreplraiserror 20598
end
GO
