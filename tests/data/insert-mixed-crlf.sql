-- Replication procedures of the order tables
SET ANSI_NULLS ON
GO

/****** Object:  StoredProcedure [dbo].[sp_MSins_dboOrders]    Script Date: 2024-03-01 10:15:00 ******/
create procedure [dbo].[sp_MSins_dboOrders]
    @c1 int,
    @c2 int,
    @c3 datetime
as
begin
	insert into [dbo].[Orders] (
		[OrderID],
		[CustomerID],
		[OrderDate]
	) values (
		@c1,
		@c2,
		@c3	)
end
GO
create procedure [dbo].[sp_MSins_dboCustomers]
    @c1 int,
    @c2 nvarchar(100)
AS
BEGIN
	INSERT INTO [dbo].[Customers] (
		[CustomerID],
		[Name]
	) VALUES (
		@c1,
		@c2	)
END
GO

/****** Object:  StoredProcedure [dbo].[sp_MSins_dboItems]    Script Date: 2024-03-01 10:15:00 ******/
create procedure [dbo].[sp_MSins_dboItems]
    @c1 int,
    @c2 int,
    @c3 int
as
begin

	insert into [dbo].[Items] (
		[ItemID],
		[OrderID],
		[Quantity]
	) values (
		@c1,
		@c2,
		@c3	)

end
GO
create procedure [dbo].[sp_MSins_dboRegions]
    @c1 int,
    @c2 nvarchar(50)
as
begin
	insert into [dbo].[Regions] (
		[RegionID],
		[Name]
	) values (
		@c1,
		@c2	)
end
GO

-- end of the replication procedures
